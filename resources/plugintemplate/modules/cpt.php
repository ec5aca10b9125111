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
				'all_items'          => esc_html__( 'All Funnels', '#prefix#' ),
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
	if ( $post instanceof WP_Post && 'publish' === $post->post_status ) {
		$view = sprintf( ' <a href="%s">%s</a>', esc_url( get_permalink( $post ) ), esc_html__( 'View funnel', '#prefix#' ) );
	}
	$messages[ #prefix#_post_type() ] = array(
		1  => esc_html__( 'Funnel updated.', '#prefix#' ) . $view,
		4  => esc_html__( 'Funnel updated.', '#prefix#' ),
		6  => esc_html__( 'Funnel published.', '#prefix#' ) . $view,
		7  => esc_html__( 'Funnel saved.', '#prefix#' ),
		8  => esc_html__( 'Funnel submitted.', '#prefix#' ),
		9  => esc_html__( 'Funnel scheduled.', '#prefix#' ),
		10 => esc_html__( 'Funnel draft updated.', '#prefix#' ),
	);
	return $messages;
}
add_filter( 'post_updated_messages', '#prefix#_updated_messages' );

/**
 * The name under which a field of the funnel is stored, and its form field is posted.
 *
 * @param string $field The field: front_tag, back_tag, download_key or new_key.
 * @return string
 */
function #prefix#_meta_key( $field ) {
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
 * The funnel's download address, key included; empty while the funnel has no key.
 *
 * @param WP_Post $post The funnel.
 * @return string
 */
function #prefix#_download_url( $post ) {
	$key = #prefix#_get_key( $post->ID );
	if ( '' === $key ) {
		return '';
	}
	return add_query_arg( #prefix#_key_arg(), rawurlencode( $key ), get_permalink( $post ) );
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
	wp_nonce_field( '#prefix#_save_funnel_' . $post->ID, '#prefix#_funnel_nonce' );
	$fields = array(
		'front_tag' => array(
			__( 'Front tag', '#prefix#' ),
			__( 'The buy button or opt-in form (HTML). The sales page shows it where its #FRONT# tag stood.', '#prefix#' ),
		),
		'back_tag'  => array(
			__( 'Back tag', '#prefix#' ),
			__( 'The download links (HTML). The download page shows them where its #BACK# tag stood.', '#prefix#' ),
		),
	);
	foreach ( $fields as $field => $text ) {
		$id = #prefix#_meta_key( $field );
		printf(
			'<p><label for="%1$s"><strong>%2$s</strong></label><br /><span class="description">%3$s</span></p>'
			. '<textarea id="%1$s" name="%1$s" rows="6" class="large-text code">%4$s</textarea>',
			esc_attr( $id ),
			esc_html( $text[0] ),
			esc_html( $text[1] ),
			esc_textarea( #prefix#_get_tag( $post->ID, $field ) )
		);
	}

	echo '<p><strong>' . esc_html__( 'Download address', '#prefix#' ) . '</strong></p>';
	$url = #prefix#_download_url( $post );
	if ( '' === $url ) {
		echo '<p class="description">' . esc_html__( 'The funnel gets its secret download address when it is saved.', '#prefix#' ) . '</p>';
		return;
	}
	printf(
		'<p><input type="text" id="%1$s" class="large-text code" readonly="readonly" value="%2$s" onfocus="this.select();" /></p>',
		esc_attr( '#prefix#_download_url' ),
		esc_url( $url )
	);
	printf(
		'<p class="description">%1$s <code id="%2$s">%3$s</code></p>',
		esc_html__( 'Give this address to buyers only: it holds the secret key', '#prefix#' ),
		esc_attr( '#prefix#_download_key' ),
		esc_html( #prefix#_get_key( $post->ID ) )
	);
	$files = #prefix#_delivery()['files'];
	if ( $files ) {
		echo '<p><strong>' . esc_html__( 'Files for buyers', '#prefix#' ) . '</strong><br /><span class="description">'
			. esc_html__( 'Each downloads only at its own address below, which holds the key. The download page links to them already; copy an address into the back tag or an e-mail to give it out on its own.', '#prefix#' )
			. '</span></p>';
		foreach ( #prefix#_delivery_urls( $post->ID ) as $i => $file_url ) {
			printf(
				'<p><label>%1$s<br /><input type="text" class="large-text code" readonly="readonly" value="%2$s" onfocus="this.select();" /></label></p>',
				esc_html( $files[ $i ] ),
				esc_url( $file_url )
			);
		}
	}
	printf(
		'<p><label><input type="checkbox" name="%1$s" value="1" /> %2$s</label></p>',
		esc_attr( '#prefix#_new_key' ),
		esc_html__( 'Make a new key when saving (the current download address and every file address stop working).', '#prefix#' )
	);
}

/**
 * Users who may post raw HTML keep their markup as typed; everyone else gets what
 * WordPress allows in a post.
 *
 * @param mixed $value The tag as posted, unslashed.
 * @return string
 */
function #prefix#_clean_tag( $value ) {
	if ( ! is_string( $value ) ) {
		return '';
	}
	return current_user_can( 'unfiltered_html' ) ? $value : wp_kses_post( $value );
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

	foreach ( array( 'front_tag', 'back_tag' ) as $field ) {
		$name = #prefix#_meta_key( $field );
		if ( isset( $_POST[ $name ] ) ) {
			// Meta functions unslash what they get, so the cleaned value is slashed once more.
			$value = #prefix#_clean_tag( wp_unslash( $_POST[ $name ] ) );
			update_post_meta( $post_id, $name, wp_slash( $value ) );
		}
	}

	$renew = ! empty( $_POST[ #prefix#_meta_key( 'new_key' ) ] );
	if ( $renew || '' === #prefix#_get_key( $post_id ) ) {
		update_post_meta( $post_id, #prefix#_meta_key( 'download_key' ), wp_generate_password( 32, false, false ) );
	}
}
add_action( 'save_post_' . #prefix#_post_type(), '#prefix#_save_post', 10, 2 );
