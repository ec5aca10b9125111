<?php
/**
 * The e-mail that brings a buyer their link: plain text the owner can edit, sent with
 * wp_mail.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * Fills the placeholders of an e-mail's text. Each placeholder is replaced once, in one pass,
 * so a value that itself reads like a placeholder (a funnel titled "{link}") stays as it is.
 *
 * @param string   $text   The text with {link}, {funnel}, {site} and {email}.
 * @param string[] $values Placeholder => value.
 * @return string
 */
function #prefix#_fill_mail( $text, $values ) {
	return strtr( (string) $text, $values );
}

/**
 * A post's or the site's name as plain text, for an e-mail: without markup or entities.
 *
 * @param string $text The name as stored.
 * @return string
 */
function #prefix#_plain_name( $text ) {
	return html_entity_decode( wp_strip_all_tags( (string) $text ), ENT_QUOTES, 'UTF-8' );
}

/**
 * E-mails a buyer their link to a funnel, in the funnel's own words.
 *
 * @param int    $funnel_id The funnel.
 * @param string $email     The buyer's e-mail address.
 * @param string $token     The buyer's token.
 * @return bool Whether WordPress took the e-mail for sending.
 */
function #prefix#_mail_buyer_link( $funnel_id, $email, $token ) {
	$settings = #prefix#_funnel_settings( $funnel_id );
	$values   = array(
		'{link}'   => #prefix#_buyer_url( $funnel_id, $token ),
		'{funnel}' => #prefix#_plain_name( get_post_field( 'post_title', $funnel_id ) ),
		'{site}'   => #prefix#_plain_name( get_bloginfo( 'name' ) ),
		'{email}'  => (string) $email,
	);
	// One line: a line break in the subject would start a header of its own.
	$subject = preg_replace( '/[\r\n]+/', ' ', #prefix#_fill_mail( $settings['mail_subject'], $values ) );
	$text    = #prefix#_fill_mail( $settings['mail_text'], $values );
	return wp_mail( $email, $subject, $text, array( 'Content-Type: text/plain; charset=UTF-8' ) );
}
