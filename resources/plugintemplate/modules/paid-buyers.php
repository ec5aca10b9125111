<?php
/**
 * The buyers screen of a funnel: search, revoke, send a link again, add a buyer by hand, and
 * the payment notes; the buyers and downloads columns of the funnel list; the help on setting
 * up PayPal and Stripe.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * Adds the buyers screen under the funnels' menu.
 */
function #prefix#_add_buyers_page() {
	$type = get_post_type_object( #prefix#_post_type() );
	if ( ! $type ) {
		return;
	}
	$hook = add_submenu_page(
		'edit.php?post_type=' . #prefix#_post_type(),
		esc_html__( 'Buyers', '#prefix#' ),
		esc_html__( 'Buyers', '#prefix#' ),
		$type->cap->edit_posts,
		#prefix#_buyers_page(),
		'#prefix#_render_buyers_page'
	);
	if ( $hook ) {
		add_action( 'load-' . $hook, '#prefix#_buyers_action' );
	}
}
add_action( 'admin_menu', '#prefix#_add_buyers_page' );

/**
 * The funnel the buyers screen is about, when the current user may manage it; 0 otherwise.
 *
 * @return int
 */
function #prefix#_buyers_funnel() {
	// phpcs:ignore WordPress.Security.NonceVerification.Recommended -- Only chooses what to show; every change checks its nonce.
	$post_id = isset( $_REQUEST['funnel'] ) && is_string( $_REQUEST['funnel'] ) ? absint( $_REQUEST['funnel'] ) : 0;
	if ( ! $post_id || #prefix#_post_type() !== get_post_type( $post_id ) || ! #prefix#_can_manage( $post_id ) ) {
		return 0;
	}
	return $post_id;
}

/**
 * What the last action on the buyers screen did, for the screen to show.
 *
 * @param array|null $set The outcome to remember: array( kind, message, link ).
 * @return array|null
 */
function #prefix#_buyers_outcome( $set = null ) {
	static $outcome = null;
	if ( null !== $set ) {
		$outcome = $set;
	}
	return $outcome;
}

/**
 * Carries out an action posted on the buyers screen (add, revoke, send again), each with its
 * nonce and only on a funnel the user may manage. A new link is shown once, on the answer
 * itself: only its hash is kept.
 */
function #prefix#_buyers_action() {
	if ( ! isset( $_POST['#prefix#_do'] ) || ! is_string( $_POST['#prefix#_do'] ) ) {
		return;
	}
	$action  = sanitize_key( wp_unslash( $_POST['#prefix#_do'] ) );
	$post_id = #prefix#_buyers_funnel();
	check_admin_referer( '#prefix#_buyers_' . $action . '_' . $post_id );
	if ( ! $post_id ) {
		wp_die( esc_html__( 'Sorry, you are not allowed to manage this funnel\'s buyers.', '#prefix#' ), '', array( 'response' => 403 ) );
	}
	if ( 'add' === $action ) {
		$email = isset( $_POST['#prefix#_email'] ) && is_string( $_POST['#prefix#_email'] ) ? sanitize_email( wp_unslash( $_POST['#prefix#_email'] ) ) : '';
		if ( ! is_email( $email ) ) {
			#prefix#_buyers_outcome( array( 'error', __( 'Enter the buyer\'s e-mail address.', '#prefix#' ), '' ) );
			return;
		}
		$granted = #prefix#_grant_access( $post_id, $email, 'manual', '', '', ! empty( $_POST['#prefix#_send'] ) );
		if ( is_wp_error( $granted ) ) {
			#prefix#_buyers_outcome( array( 'error', $granted->get_error_message(), '' ) );
			return;
		}
		/* translators: %s: the buyer's e-mail address. */
		$said = $granted['mailed'] ? __( 'Buyer %s added, and their link e-mailed to them. Their link (shown only now):', '#prefix#' ) : __( 'Buyer %s added. Their link (shown only now; pass it on yourself):', '#prefix#' );
		#prefix#_buyers_outcome( array( 'success', sprintf( $said, $email ), #prefix#_buyer_url( $post_id, $granted['token'] ) ) );
		return;
	}
	$buyer = #prefix#_get_buyer( isset( $_POST['#prefix#_buyer'] ) && is_string( $_POST['#prefix#_buyer'] ) ? absint( $_POST['#prefix#_buyer'] ) : 0 );
	if ( ! $buyer || $post_id !== $buyer['funnel_id'] ) {
		#prefix#_buyers_outcome( array( 'error', __( 'There is no such buyer of this funnel.', '#prefix#' ), '' ) );
		return;
	}
	if ( 'revoke' === $action ) {
		#prefix#_revoke_buyer( $buyer['id'] );
		/* translators: %s: the buyer's e-mail address. */
		#prefix#_buyers_outcome( array( 'success', sprintf( __( 'The link of %s no longer works.', '#prefix#' ), $buyer['email'] ), '' ) );
	} elseif ( 'resend' === $action ) {
		$token = #prefix#_renew_token( $buyer['id'] );
		$sent  = '' !== $token && is_email( $buyer['email'] ) && #prefix#_mail_buyer_link( $post_id, $buyer['email'], $token );
		/* translators: %s: the buyer's e-mail address. */
		$said = $sent ? __( 'A new link went to %s; their old link no longer works.', '#prefix#' ) : __( 'The new link for %s could not be e-mailed; their old link no longer works. The new one (shown only now):', '#prefix#' );
		#prefix#_buyers_outcome( array( $sent ? 'success' : 'error', sprintf( $said, $buyer['email'] ), $sent ? '' : #prefix#_buyer_url( $post_id, $token ) ) );
	}
}

/**
 * A small form of the buyers screen that posts one action with its nonce.
 *
 * @param int    $post_id The funnel.
 * @param string $action  add, revoke or resend.
 * @param string $inner   The form's fields, escaped.
 * @param string $label   The button's label.
 * @return string
 */
function #prefix#_buyers_form( $post_id, $action, $inner, $label ) {
	return '<form method="post" action="' . esc_url( #prefix#_buyers_page_url( $post_id ) ) . '" style="display:inline">'
		. wp_nonce_field( '#prefix#_buyers_' . $action . '_' . $post_id, '_wpnonce', true, false )
		. '<input type="hidden" name="#prefix#_do" value="' . esc_attr( $action ) . '" />' . $inner
		. '<button type="submit" class="button">' . esc_html( $label ) . '</button></form>';
}

/**
 * Prints the buyers screen: a funnel's buyers, or the funnels to choose from.
 */
function #prefix#_render_buyers_page() {
	$post_id = #prefix#_buyers_funnel();
	echo '<div class="wrap"><h1>' . esc_html__( 'Buyers', '#prefix#' ) . '</h1>';
	if ( ! $post_id ) {
		#prefix#_print_funnel_choice();
		echo '</div>';
		return;
	}
	printf( '<p><a href="%1$s">%2$s</a></p>', esc_url( get_edit_post_link( $post_id ) ), esc_html( get_the_title( $post_id ) ) );
	$outcome = #prefix#_buyers_outcome();
	if ( $outcome ) {
		printf( '<div class="notice notice-%1$s"><p>%2$s</p>', esc_attr( $outcome[0] ), esc_html( $outcome[1] ) );
		if ( '' !== $outcome[2] ) {
			#prefix#_print_copy_field( '#prefix#_new_link', $outcome[2], 'large-text' );
		}
		echo '</div>';
	}
	$email = '<input type="email" name="#prefix#_email" required="required" placeholder="' . esc_attr__( 'buyer@example.com', '#prefix#' ) . '" /> '
		. '<label><input type="checkbox" name="#prefix#_send" value="1" checked="checked" /> ' . esc_html__( 'E-mail the link', '#prefix#' ) . '</label> ';
	echo '<h2>' . esc_html__( 'Add a buyer by hand', '#prefix#' ) . '</h2><p>';
	echo #prefix#_buyers_form( $post_id, 'add', $email, __( 'Add buyer', '#prefix#' ) ); // phpcs:ignore WordPress.Security.EscapeOutput.OutputNotEscaped -- Built from escaped parts.
	echo '</p>';
	#prefix#_print_buyers_table( $post_id );
	#prefix#_print_payment_notes( $post_id );
	echo '</div>';
}

/**
 * Prints the list of funnels the user may manage, with their buyers screens.
 */
function #prefix#_print_funnel_choice() {
	$funnels = get_posts(
		array(
			'post_type'   => #prefix#_post_type(),
			'post_status' => array( 'publish', 'draft', 'pending', 'private', 'future' ),
			'numberposts' => 100,
		)
	);
	echo '<ul>';
	foreach ( $funnels as $funnel ) {
		if ( #prefix#_can_manage( $funnel->ID ) ) {
			printf( '<li><a href="%1$s">%2$s</a></li>', esc_url( #prefix#_buyers_page_url( $funnel->ID ) ), esc_html( get_the_title( $funnel ) ) );
		}
	}
	echo '</ul>';
}

/**
 * Prints a funnel's buyers with the search box and each buyer's actions.
 *
 * @param int $post_id The funnel.
 */
function #prefix#_print_buyers_table( $post_id ) {
	// phpcs:ignore WordPress.Security.NonceVerification.Recommended -- A search only reads.
	$search = isset( $_GET['s'] ) && is_string( $_GET['s'] ) ? sanitize_text_field( wp_unslash( $_GET['s'] ) ) : '';
	printf(
		'<form method="get" action="%1$s"><input type="hidden" name="post_type" value="%2$s" /><input type="hidden" name="page" value="%3$s" /><input type="hidden" name="funnel" value="%4$d" />'
		. '<p class="search-box"><input type="search" name="s" value="%5$s" /> <button type="submit" class="button">%6$s</button></p></form>',
		esc_url( admin_url( 'edit.php' ) ),
		esc_attr( #prefix#_post_type() ),
		esc_attr( #prefix#_buyers_page() ),
		(int) $post_id,
		esc_attr( $search ),
		esc_html__( 'Search buyers', '#prefix#' )
	);
	$now  = time();
	$head = array( __( 'E-mail', '#prefix#' ), __( 'Source', '#prefix#' ), __( 'Payment', '#prefix#' ), __( 'Since', '#prefix#' ), __( 'Status', '#prefix#' ), __( 'Downloads', '#prefix#' ), '' );
	echo '<table class="widefat striped" id="#prefix#-buyers"><thead><tr>';
	foreach ( $head as $label ) {
		echo '<th>' . esc_html( $label ) . '</th>';
	}
	echo '</tr></thead><tbody>';
	foreach ( #prefix#_list_buyers( $post_id, $search, 200 ) as $buyer ) {
		$status  = #prefix#_buyer_status( $buyer, $now );
		$hidden  = '<input type="hidden" name="#prefix#_buyer" value="' . (int) $buyer['id'] . '" />';
		$actions = 'revoked' === $status ? '' : #prefix#_buyers_form( $post_id, 'resend', $hidden, __( 'Send the link again', '#prefix#' ) ) . ' '
			. #prefix#_buyers_form( $post_id, 'revoke', $hidden, __( 'Revoke', '#prefix#' ) );
		printf(
			'<tr data-buyer="%1$d"><td>%2$s</td><td>%3$s</td><td>%4$s</td><td>%5$s</td><td>%6$s</td><td>%7$d</td><td>%8$s</td></tr>',
			(int) $buyer['id'],
			esc_html( $buyer['email'] ),
			esc_html( $buyer['source'] ),
			esc_html( $buyer['payment_id'] ),
			esc_html( wp_date( get_option( 'date_format' ) . ' ' . get_option( 'time_format' ), $buyer['created'] ) ),
			esc_html( $status ),
			(int) array_sum( #prefix#_downloads_used( $buyer['id'] ) ),
			$actions // phpcs:ignore WordPress.Security.EscapeOutput.OutputNotEscaped -- Built from escaped parts.
		);
	}
	echo '</tbody></table>';
}

/**
 * Prints a funnel's latest payment notes: what became of each payment message.
 *
 * @param int $post_id The funnel.
 */
function #prefix#_print_payment_notes( $post_id ) {
	echo '<h2>' . esc_html__( 'Payment notes', '#prefix#' ) . '</h2><ul id="#prefix#-notes">';
	foreach ( #prefix#_payment_notes( $post_id ) as $note ) {
		printf(
			'<li>%1$s — %2$s, %3$s: %4$s</li>',
			esc_html( wp_date( get_option( 'date_format' ) . ' ' . get_option( 'time_format' ), $note['time'] ) ),
			esc_html( $note['source'] ),
			esc_html( $note['outcome'] ),
			esc_html( $note['detail'] )
		);
	}
	echo '</ul>';
}

/**
 * The funnel list's buyers and downloads columns.
 *
 * @param string[] $columns The list's columns, by key.
 * @return string[]
 */
function #prefix#_paid_columns( $columns ) {
	$columns['#prefix#_buyers']    = esc_html__( 'Buyers', '#prefix#' );
	$columns['#prefix#_downloads'] = esc_html__( 'Downloads', '#prefix#' );
	return $columns;
}
add_filter( 'manage_' . #prefix#_post_type() . '_posts_columns', '#prefix#_paid_columns', 20 );

/**
 * Prints a cell of the buyers and downloads columns.
 *
 * @param string $column  The column's key.
 * @param int    $post_id The funnel of the row.
 */
function #prefix#_paid_cell( $column, $post_id ) {
	if ( '#prefix#_buyers' === $column ) {
		$text = 'paid' === #prefix#_funnel_mode( $post_id ) ? __( 'Paid', '#prefix#' ) : __( 'Free', '#prefix#' );
		printf( '<a href="%1$s">%2$d</a> <span class="description">(%3$s)</span>', esc_url( #prefix#_buyers_page_url( $post_id ) ), (int) #prefix#_count_buyers( $post_id ), esc_html( $text ) );
	} elseif ( '#prefix#_downloads' === $column ) {
		echo (int) #prefix#_count_downloads( $post_id );
	}
}
add_action( 'manage_' . #prefix#_post_type() . '_posts_custom_column', '#prefix#_paid_cell', 10, 2 );

/**
 * The help tab on setting up PayPal and Stripe, on the funnel screens and the buyers screen.
 *
 * @param WP_Screen $screen The admin screen being shown.
 */
function #prefix#_payments_help_tab( $screen ) {
	if ( ! $screen instanceof WP_Screen || #prefix#_post_type() !== $screen->post_type ) {
		return;
	}
	$paypal  = array(
		__( 'Choose "Paid" under "Access and payments".', '#prefix#' ),
		__( 'Enter your PayPal account\'s e-mail address, an item number of your choice, the price and the currency, and save.', '#prefix#' ),
		__( 'Tick "Write a PayPal buy button" and save again: the buy button field now holds a PayPal button that sends PayPal\'s payment messages to this funnel and brings buyers back to the claim page.', '#prefix#' ),
		__( 'At PayPal, under Account settings › Notifications › Instant payment notifications, turn the notifications on (any address will do: the button names this funnel\'s own).', '#prefix#' ),
		__( 'To test first, tick the sandbox setting and pay with a PayPal sandbox buyer account. Untick it before you sell.', '#prefix#' ),
	);
	$stripe  = array(
		__( 'At Stripe, make a Payment Link for your product at the funnel\'s price and currency. Under "After payment", choose "Don\'t show confirmation page" and paste the funnel\'s "Stripe\'s success address".', '#prefix#' ),
		__( 'At Stripe, under Developers › Webhooks, add an endpoint with the funnel\'s "Stripe webhook endpoint" address and the events checkout.session.completed, checkout.session.async_payment_succeeded and charge.refunded.', '#prefix#' ),
		__( 'Copy the endpoint\'s signing secret (it begins with whsec_) into the funnel\'s Stripe setting, and put the Payment Link into the buy button field.', '#prefix#' ),
	);
	$content = '<p>' . esc_html__( 'A Paid funnel gives its files only to confirmed buyers. Each buyer gets their own link by e-mail; a refund takes it back. Payments are confirmed by PayPal or Stripe themselves, never by the page the buyer returns to.', '#prefix#' ) . '</p>';
	foreach ( array(
		__( 'PayPal', '#prefix#' ) => $paypal,
		__( 'Stripe', '#prefix#' ) => $stripe,
	) as $title => $steps ) {
		$content .= '<p><strong>' . esc_html( $title ) . '</strong></p><ol>';
		foreach ( $steps as $step ) {
			$content .= '<li>' . esc_html( $step ) . '</li>';
		}
		$content .= '</ol>';
	}
	$content .= '<p>' . esc_html__( 'The buyers screen lists every buyer. There you can add a buyer by hand, send a link again (the old one stops working) or revoke a link, and read what became of each payment message.', '#prefix#' ) . '</p>';
	$screen->add_help_tab(
		array(
			'id'      => '#prefix#_payments_help',
			'title'   => esc_html__( 'PayPal and Stripe', '#prefix#' ),
			'content' => $content,
		)
	);
}
add_action( 'current_screen', '#prefix#_payments_help_tab' );
