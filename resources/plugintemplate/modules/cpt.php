<?php
/**
 * The funnel post type: its labels and messages, the edit screen's fields, the secret key
 * and the addresses made from it.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * WordPress lower-cases post type keys, so the key is built lower-case here and used
 * everywhere the type is named.
 *
 * @return string
 */
function #prefix#_post_type() {
	return strtolower( '#prefix#' );
}

/**
 * Registers the funnel post type under the plugin's name.
 */
function #prefix#_register_post_type() {
	// Core prints some labels unescaped (the admin bar), so they go in escaped.
	$name = esc_html( #prefix#_menu_name() );
	register_post_type(
		#prefix#_post_type(),
		array(
			'labels'              => array(
				'name'               => $name,
				'menu_name'          => $name,
				'singular_name'      => esc_html__( 'Funnel', '#prefix#' ),
				'name_admin_bar'     => esc_html__( 'Funnel', '#prefix#' ),
				'add_new'            => esc_html__( 'Add New Funnel', '#prefix#' ),
				'add_new_item'       => esc_html__( 'Add New Funnel', '#prefix#' ),
				'edit_item'          => esc_html__( 'Edit Funnel', '#prefix#' ),
				'new_item'           => esc_html__( 'New Funnel', '#prefix#' ),
				'view_item'          => esc_html__( 'View Funnel', '#prefix#' ),
				'view_items'         => esc_html__( 'View Funnels', '#prefix#' ),
				'all_items'          => esc_html__( 'Funnels', '#prefix#' ),
				'search_items'       => esc_html__( 'Search Funnels', '#prefix#' ),
				'not_found'          => esc_html__( 'No funnels found.', '#prefix#' ),
				'not_found_in_trash' => esc_html__( 'No funnels found in Trash.', '#prefix#' ),
				'item_published'     => esc_html__( 'Funnel published.', '#prefix#' ),
				'item_updated'       => esc_html__( 'Funnel updated.', '#prefix#' ),
			),
			'description'         => __( 'Sales funnels: a sales page with a buy button and a download page behind a secret address.', '#prefix#' ),
			'public'              => true,
			'exclude_from_search' => true,
			'show_in_nav_menus'   => false,
			'capability_type'     => array( strtolower( '#prefix#_funnel' ), strtolower( '#prefix#_funnels' ) ),
			'capabilities'        => #prefix#_capabilities(),
			'map_meta_cap'        => true,
			// The classic edit screen posts the meta box with the form and its nonce.
			'show_in_rest'        => false,
			'has_archive'         => false,
			'menu_icon'           => 'dashicons-cart',
			'supports'            => array( 'title' ),
			'rewrite'             => array(
				'slug'       => #prefix#_post_type(),
				'with_front' => false,
			),
		)
	);
}
add_action( 'init', '#prefix#_register_post_type' );

/**
 * The messages shown after a funnel is saved, in the funnel's own words.
 *
 * @param array $messages The messages of each post type, by post type and message number.
 * @return array
 */
function #prefix#_updated_messages( $messages ) {
	$post = get_post();
	$view = '';
	$news = '';
	if ( $post instanceof WP_Post && 'publish' === $post->post_status ) {
		$view = sprintf( ' <a href="%s">%s</a>', esc_url( get_permalink( $post ) ), esc_html__( 'View funnel', '#prefix#' ) );
	}
	if ( $post instanceof WP_Post && get_transient( #prefix#_renewed_flag( $post->ID ) ) ) {
		delete_transient( #prefix#_renewed_flag( $post->ID ) );
		$news = ' ' . esc_html__( 'The funnel has a new key: download and file addresses given out before no longer work. Buy buttons that use [download_url] have the new address already.', '#prefix#' );
	}
	$messages[ #prefix#_post_type() ] = array(
		1  => esc_html__( 'Funnel updated.', '#prefix#' ) . $news . $view,
		4  => esc_html__( 'Funnel updated.', '#prefix#' ) . $news,
		6  => esc_html__( 'Funnel published.', '#prefix#' ) . $news . $view,
		7  => esc_html__( 'Funnel saved.', '#prefix#' ) . $news,
		8  => esc_html__( 'Funnel submitted.', '#prefix#' ) . $news,
		9  => esc_html__( 'Funnel scheduled.', '#prefix#' ) . $news,
		10 => esc_html__( 'Funnel draft updated.', '#prefix#' ) . $news,
	);
	return $messages;
}
add_filter( 'post_updated_messages', '#prefix#_updated_messages' );

/**
 * The name under which a field of the funnel is stored. The leading underscore makes it
 * protected meta, which only the funnel's own screen changes.
 *
 * @param string $field The field: front_tag, back_tag, download_key, settings, trusted_tags.
 * @return string
 */
function #prefix#_meta_key( $field ) {
	return '_#prefix#_' . $field;
}

/**
 * The name under which a field of the edit screen is posted.
 *
 * @param string $field The field: front_tag, back_tag or new_key.
 * @return string
 */
function #prefix#_field_name( $field ) {
	return '#prefix#_' . $field;
}

/**
 * One of the funnel's tags as the owner saved it.
 *
 * @param int    $post_id The funnel.
 * @param string $field   The tag: front_tag or back_tag.
 * @return string
 */
function #prefix#_get_tag( $post_id, $field ) {
	return (string) get_post_meta( $post_id, #prefix#_meta_key( $field ), true );
}

/**
 * The funnel's secret download key; empty while it has none.
 *
 * @param int $post_id The funnel.
 * @return string
 */
function #prefix#_get_key( $post_id ) {
	return (string) get_post_meta( $post_id, #prefix#_meta_key( 'download_key' ), true );
}

/**
 * The download page is reached through the funnel's own address plus this query
 * argument holding the funnel's secret key.
 *
 * @return string
 */
function #prefix#_key_arg() {
	return '#prefix#_key';
}

/**
 * The query argument that names a delivery file at the funnel's address.
 *
 * @return string
 */
function #prefix#_file_arg() {
	return '#prefix#_file';
}

/**
 * A keyed address of the funnel, made from its number rather than its slug, so that it
 * is known before the funnel is published and stays the same when the slug changes; it
 * answers once the funnel is published. Empty while the funnel has no key.
 *
 * @param int   $post_id The funnel.
 * @param array $args    More query arguments, already encoded.
 * @return string
 */
function #prefix#_keyed_url( $post_id, $args = array() ) {
	$key = #prefix#_get_key( $post_id );
	if ( '' === $key ) {
		return '';
	}
	$query = array(
		'post_type' => #prefix#_post_type(),
		'p'         => (int) $post_id,
	);
	return add_query_arg( $query + array( #prefix#_key_arg() => rawurlencode( $key ) ) + $args, home_url( '/' ) );
}

/**
 * The funnel's download address, key included; empty while the funnel has no key.
 *
 * @param WP_Post $post The funnel.
 * @return string
 */
function #prefix#_download_url( $post ) {
	return #prefix#_keyed_url( $post->ID );
}

/**
 * A tag as a page shows it: [download_url] becomes the funnel's download address, escaped
 * for an attribute, so a buy button's return address follows key and address changes.
 *
 * @param int    $post_id The funnel.
 * @param string $field   The tag: front_tag or back_tag.
 * @return string
 */
function #prefix#_shown_tag( $post_id, $field ) {
	$tag = #prefix#_get_tag( $post_id, $field );
	if ( '1' !== get_post_meta( $post_id, #prefix#_meta_key( 'trusted_tags' ), true ) ) {
		$tag = #prefix#_filter_tag( $tag )['tag'];
	}
	return #prefix#_fill_tag( $post_id, $tag );
}

/**
 * Every funnel has its key from the moment it exists (the edit screen's first, empty draft
 * included), so its download address can be copied before anything is saved.
 *
 * @param int $post_id The funnel.
 */
function #prefix#_ensure_key( $post_id ) {
	if ( '' === #prefix#_get_key( $post_id ) ) {
		update_post_meta( $post_id, #prefix#_meta_key( 'download_key' ), #prefix#_new_key() );
	}
}
add_action( 'save_post_' . #prefix#_post_type(), '#prefix#_ensure_key', 5 );

/**
 * A new secret key: 32 letters and digits.
 *
 * @return string
 */
function #prefix#_new_key() {
	return wp_generate_password( 32, false, false );
}

/**
 * The short-lived note that a funnel's key was just renewed, for the message after saving.
 *
 * @param int $post_id The funnel.
 * @return string
 */
function #prefix#_renewed_flag( $post_id ) {
	return '#prefix#_renewed_' . (int) $post_id;
}

/**
 * Whether a key from a request is the funnel's key, compared in constant time.
 *
 * @param int   $post_id The funnel.
 * @param mixed $given   The key the request holds, if any.
 * @return bool
 */
function #prefix#_key_matches( $post_id, $given ) {
	$key = #prefix#_get_key( $post_id );
	return '' !== $key && is_string( $given ) && hash_equals( $key, $given );
}

/**
 * Adds the funnel's fields to its edit screen.
 */
function #prefix#_add_meta_box() {
	add_meta_box(
		'#prefix#_funnel',
		esc_html__( 'Funnel pages', '#prefix#' ),
		'#prefix#_render_meta_box',
		#prefix#_post_type(),
		'normal',
		'high'
	);
}
add_action( 'add_meta_boxes_' . #prefix#_post_type(), '#prefix#_add_meta_box' );

/**
 * Prints the funnel's fields: the two tags, the download address and the delivery files.
 *
 * @param WP_Post $post The funnel being edited.
 */
function #prefix#_render_meta_box( $post ) {
	if ( ! #prefix#_can_manage( $post->ID ) ) {
		return;
	}
	wp_nonce_field( '#prefix#_save_funnel_' . $post->ID, '#prefix#_funnel_nonce' );
	$fields = array(
		'front_tag' => array(
			__( 'Buy button or opt-in form (HTML)', '#prefix#' ),
			__( 'Shown on the sales page where #FRONT# stands. Write [download_url] where the button\'s return (thank-you) address goes.', '#prefix#' ),
		),
		'back_tag'  => array(
			__( 'Download links (HTML)', '#prefix#' ),
			__( 'Shown on the download page where #BACK# stands, to buyers only.', '#prefix#' ),
		),
	);
	foreach ( $fields as $field => $text ) {
		$id = #prefix#_field_name( $field );
		printf(
			'<p><label for="%1$s"><strong>%2$s</strong></label><br /><span class="description">%3$s</span></p>'
			. '<textarea id="%1$s" name="%1$s" rows="6" class="large-text code">%4$s</textarea>',
			esc_attr( $id ),
			esc_html( $text[0] ),
			esc_html( $text[1] ),
			esc_textarea( #prefix#_get_tag( $post->ID, $field ) )
		);
	}

	$url = #prefix#_download_url( $post );
	printf(
		'<p><label for="%1$s"><strong>%2$s</strong></label></p>',
		esc_attr( '#prefix#_download_url' ),
		esc_html__( 'Download address — use it as your payment\'s return / thank-you address, and give it only to buyers', '#prefix#' )
	);
	#prefix#_print_copy_field( '#prefix#_download_url', $url, 'large-text' );
	if ( 'publish' === $post->post_status ) {
		$when = __( 'It works now: it opens this funnel\'s download page.', '#prefix#' );
	} else {
		$when = __( 'It starts working once you publish the funnel. It stays the same when you change the funnel\'s title or address.', '#prefix#' );
	}
	printf(
		'<p class="description">%1$s %2$s <code id="%3$s">%4$s</code></p>',
		esc_html( $when ),
		esc_html__( 'Its secret key:', '#prefix#' ),
		esc_attr( '#prefix#_download_key' ),
		esc_html( #prefix#_get_key( $post->ID ) )
	);
	if ( #prefix#_is_paid( $post->ID ) ) {
		printf( '<p class="description"><strong>%s</strong></p>', esc_html__( 'This funnel is Paid (see "Access and payments"): this address and the file addresses below open nothing. Buyers come in through their own links; in a buy button, [download_url] is the claim page that leads them on.', '#prefix#' ) );
	}
	$files = #prefix#_delivery()['files'];
	if ( $files ) {
		echo '<p><strong>' . esc_html__( 'Files for buyers', '#prefix#' ) . '</strong><br /><span class="description">'
			. esc_html__( 'Each downloads only at its own address below, which holds the key. The download page links to them already; copy an address into the download links or an e-mail to give it out on its own.', '#prefix#' )
			. '</span></p>';
		foreach ( #prefix#_delivery_urls( $post->ID ) as $i => $file_url ) {
			printf( '<p>%s<br />', esc_html( $files[ $i ] ) );
			#prefix#_print_copy_field( '#prefix#_file_url_' . $i, $file_url, 'large-text' );
			echo '</p>';
		}
	}
	printf(
		'<p><label><input type="checkbox" name="%1$s" value="1" /> %2$s</label></p>',
		esc_attr( #prefix#_field_name( 'new_key' ) ),
		esc_html__( 'Make a new key when saving (the current download address and every file address stop working).', '#prefix#' )
	);
}

/**
 * A read-only address with a Copy button and the place where "Copied" appears.
 *
 * @param string $id    The field's id, unique on the screen.
 * @param string $url   The address.
 * @param string $class The field's width class.
 */
function #prefix#_print_copy_field( $id, $url, $class ) {
	printf(
		'<span class="%1$s"><input type="text" id="%2$s" class="%3$s code" readonly="readonly" value="%4$s" /> '
		. '<button type="button" class="button" data-%1$s="%2$s">%5$s</button> <span class="%1$s-done" role="status"></span></span>',
		esc_attr( '#prefix#-copy' ),
		esc_attr( $id ),
		esc_attr( $class ),
		esc_url( $url ),
		esc_html__( 'Copy', '#prefix#' )
	);
}

/**
 * Users who may post raw HTML keep their markup as typed; everyone else's goes through the
 * allowed list, and what it removed is kept for the notice after saving.
 *
 * @param mixed $value   The tag as posted, unslashed.
 * @param int   $post_id The funnel.
 * @return string
 */
function #prefix#_clean_tag( $value, $post_id = 0 ) {
	if ( ! is_string( $value ) ) {
		return '';
	}
	if ( current_user_can( 'unfiltered_html' ) ) {
		return $value;
	}
	$filtered = #prefix#_filter_tag( $value );
	if ( $filtered['removed'] ) {
		$flag    = #prefix#_removed_flag( $post_id );
		$removed = get_transient( $flag );
		set_transient( $flag, array_values( array_unique( array_merge( is_array( $removed ) ? $removed : array(), $filtered['removed'] ) ) ), MINUTE_IN_SECONDS );
	}
	return $filtered['tag'];
}

/**
 * Saves the funnel's tags from its edit screen and gives it a key when it has none or the
 * owner asked for a new one.
 *
 * @param int     $post_id The funnel.
 * @param WP_Post $post    The funnel.
 */
function #prefix#_save_post( $post_id, $post ) {
	$nonce_field = '#prefix#_funnel_nonce';
	if ( ! isset( $_POST[ $nonce_field ] ) || ! is_string( $_POST[ $nonce_field ] ) ) {
		return;
	}
	$nonce = sanitize_text_field( wp_unslash( $_POST[ $nonce_field ] ) );
	if ( ! wp_verify_nonce( $nonce, '#prefix#_save_funnel_' . $post_id ) ) {
		return;
	}
	if ( ( defined( 'DOING_AUTOSAVE' ) && DOING_AUTOSAVE ) || wp_is_post_revision( $post_id ) || wp_is_post_autosave( $post_id ) ) {
		return;
	}
	if ( #prefix#_post_type() !== $post->post_type || ! current_user_can( 'edit_post', $post_id ) ) {
		return;
	}

	$saved = false;
	foreach ( array( 'front_tag', 'back_tag' ) as $field ) {
		$name = #prefix#_field_name( $field );
		if ( isset( $_POST[ $name ] ) ) {
			// Meta functions unslash what they get, so the cleaned value is slashed once more.
			$value = #prefix#_clean_tag( wp_unslash( $_POST[ $name ] ), $post_id );
			update_post_meta( $post_id, #prefix#_meta_key( $field ), wp_slash( $value ) );
			$saved = true;
		}
	}
	if ( $saved ) {
		update_post_meta( $post_id, #prefix#_meta_key( 'trusted_tags' ), current_user_can( 'unfiltered_html' ) ? '1' : '0' );
	}

	if ( ! empty( $_POST[ #prefix#_field_name( 'new_key' ) ] ) ) {
		update_post_meta( $post_id, #prefix#_meta_key( 'download_key' ), #prefix#_new_key() );
		set_transient( #prefix#_renewed_flag( $post_id ), 1, MINUTE_IN_SECONDS );
	}
}
add_action( 'save_post_' . #prefix#_post_type(), '#prefix#_save_post', 10, 2 );

/**
 * The funnel list's own columns: the download address with its Copy button, and whether
 * each tag is filled in.
 *
 * @param string[] $columns The list's columns, by key.
 * @return string[]
 */
function #prefix#_list_columns( $columns ) {
	$own = array(
		'#prefix#_address' => esc_html__( 'Download address', '#prefix#' ),
		'#prefix#_tags'    => esc_html__( 'Buy button and download links', '#prefix#' ),
	);
	$at  = array_search( 'title', array_keys( $columns ), true );
	$at  = false === $at ? count( $columns ) : $at + 1;
	return array_slice( $columns, 0, $at, true ) + $own + array_slice( $columns, $at, null, true );
}
add_filter( 'manage_' . #prefix#_post_type() . '_posts_columns', '#prefix#_list_columns' );

/**
 * Prints one cell of the funnel list's own columns.
 *
 * @param string $column  The column's key.
 * @param int    $post_id The funnel of the row.
 */
function #prefix#_list_cell( $column, $post_id ) {
	if ( ! #prefix#_can_manage( $post_id ) ) {
		return;
	}
	if ( '#prefix#_address' === $column ) {
		#prefix#_print_copy_field( '#prefix#_address_' . (int) $post_id, #prefix#_keyed_url( $post_id ), 'widefat' );
		if ( 'publish' !== get_post_status( $post_id ) ) {
			echo '<br /><span class="description">' . esc_html__( 'Works once the funnel is published.', '#prefix#' ) . '</span>';
		}
		return;
	}
	if ( '#prefix#_tags' !== $column ) {
		return;
	}
	$tags = array(
		'front_tag' => __( 'Buy button or opt-in form', '#prefix#' ),
		'back_tag'  => __( 'Download links', '#prefix#' ),
	);
	foreach ( $tags as $field => $label ) {
		if ( 'back_tag' === $field ) {
			echo '<br />';
		}
		if ( '' !== trim( #prefix#_get_tag( $post_id, $field ) ) ) {
			printf( '<span class="%1$s">%2$s: %3$s</span>', esc_attr( '#prefix#-filled' ), esc_html( $label ), esc_html__( 'filled in', '#prefix#' ) );
		} else {
			printf( '<span class="%1$s">%2$s: <strong>%3$s</strong></span>', esc_attr( '#prefix#-empty' ), esc_html( $label ), esc_html__( 'empty', '#prefix#' ) );
		}
	}
}
add_action( 'manage_' . #prefix#_post_type() . '_posts_custom_column', '#prefix#_list_cell', 10, 2 );

/**
 * The help tab on the funnel screens: the first steps in a few more words.
 *
 * @param WP_Screen $screen The admin screen being shown.
 */
function #prefix#_help_tab( $screen ) {
	if ( ! $screen instanceof WP_Screen || #prefix#_post_type() !== $screen->post_type || ! in_array( $screen->base, array( 'edit', 'post' ), true ) ) {
		return;
	}
	$steps   = array(
		__( 'Add a funnel and give it a title: the title becomes part of the sales page\'s address.', '#prefix#' ),
		__( 'Paste your buy button or opt-in form into "Buy button or opt-in form (HTML)". Where the button sends buyers back after paying (PayPal calls it the return address), write [download_url]: in a Paid funnel the sales page puts the claim page there, which leads each buyer on once their payment is confirmed; in a Free funnel, the funnel\'s download address, kept current when you make a new key or change the funnel\'s address. Anyone can read that address in the sales page\'s source.', '#prefix#' ),
		__( 'Paste what buyers get into "Download links (HTML)". It appears on the download page only, together with the files the download page itself links to.', '#prefix#' ),
		__( 'Publish. "View Funnel" opens the sales page. A Paid funnel\'s download page opens only through each buyer\'s own link (see the help on PayPal and Stripe); a Free funnel\'s opens at its download address, which holds a secret key.', '#prefix#' ),
	);
	$content = '<p>' . esc_html__( 'A funnel is a sales page with your buy button or opt-in form, and a download page that only buyers reach.', '#prefix#' ) . '</p><ol>';
	foreach ( $steps as $step ) {
		$content .= '<li>' . esc_html( $step ) . '</li>';
	}
	$content .= '</ol><p>' . esc_html__( 'If a download address got into the wrong hands, tick "Make a new key" and update the funnel: every address given out before stops working.', '#prefix#' ) . '</p>';
	$screen->add_help_tab(
		array(
			'id'      => '#prefix#_help',
			'title'   => esc_html__( 'Funnels', '#prefix#' ),
			'content' => $content,
		)
	);
}
add_action( 'current_screen', '#prefix#_help_tab' );

/**
 * The Copy buttons and the first steps' close button, for those who may make funnels.
 */
function #prefix#_admin_script() {
	$type = get_post_type_object( #prefix#_post_type() );
	if ( ! $type || ! current_user_can( $type->cap->edit_posts ) ) {
		return;
	}
	$handle = '#prefix#-admin';
	wp_register_script( $handle, false, array(), '1', true );
	wp_enqueue_script( $handle );
	$texts  = array(
		'copy'     => '#prefix#-copy',
		'notice'   => '#prefix#-welcome',
		'copied'   => __( 'Copied', '#prefix#' ),
		'pressKey' => __( 'Press Ctrl+C to copy', '#prefix#' ),
		'ajaxUrl'  => admin_url( 'admin-ajax.php' ),
	);
	$script = <<<'#prefix#_SCRIPT_END'
( function ( texts ) {
	function say( button, text ) {
		var done = button.nextElementSibling;
		if ( done ) {
			done.textContent = text;
			window.setTimeout( function () { done.textContent = ''; }, 4000 );
		}
	}
	function fallback( field, button ) {
		field.focus();
		field.select();
		var copied = false;
		try {
			copied = document.execCommand( 'copy' );
		} catch ( e ) {}
		say( button, copied ? texts.copied : texts.pressKey );
	}
	document.addEventListener( 'click', function ( event ) {
		var target = event.target;
		var button = target.closest ? target.closest( '[data-' + texts.copy + ']' ) : null;
		if ( button ) {
			var field = document.getElementById( button.getAttribute( 'data-' + texts.copy ) );
			if ( ! field ) {
				return;
			}
			if ( navigator.clipboard && window.isSecureContext ) {
				navigator.clipboard.writeText( field.value ).then( function () {
					say( button, texts.copied );
				}, function () {
					fallback( field, button );
				} );
			} else {
				fallback( field, button );
			}
			return;
		}
		var notice = target.closest ? target.closest( '#' + texts.notice ) : null;
		if ( notice && target.closest( '.notice-dismiss' ) ) {
			var body = new window.FormData();
			body.append( 'action', notice.getAttribute( 'data-action' ) );
			body.append( '_ajax_nonce', notice.getAttribute( 'data-nonce' ) );
			window.fetch( texts.ajaxUrl, { method: 'POST', body: body, credentials: 'same-origin' } );
		}
	} );
} )( #prefix#_SCRIPT_TEXTS );
#prefix#_SCRIPT_END;
	wp_add_inline_script( $handle, str_replace( '#prefix#_SCRIPT_TEXTS', wp_json_encode( $texts ), $script ) );
}
add_action( 'admin_enqueue_scripts', '#prefix#_admin_script' );
